#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TFormAbout;
}

// The program's version as major.minor.release.build, from the version compiled into
// the program; empty when the build sets none.
QString GetAppVersion();
// The same for a given compiled version text: one to four decimal numbers from 0 to
// 65535 joined by ".", missing ones counted as 0. Anything else (or nothing) gives
// the empty text, as a program without a version would.
QString GetAppVersion(const char* compiledVersion);

// The maker's web pages the Help menu opens.
QUrl documentationPageUrl();
QUrl homePageUrl();

// The About box: the product's name, its version and the copyright year. Made anew
// for each showing, so the year is that of the showing.
class TFormAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAbout(const std::function<QDateTime()>& clock, QWidget* parent = nullptr);
    ~TFormAbout() override;

    Ui::TFormAbout& ui() { return *m_ui; }

private:
    void FormCreate(const QDateTime& now);

    std::unique_ptr<Ui::TFormAbout> m_ui;
};
