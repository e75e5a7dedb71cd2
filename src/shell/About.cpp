#include "shell/About.h"

#include "shell/Shared.h"
#include "toolkit/DrawnWidths.h"
#include "toolkit/FocusFrameFollower.h"
#include "toolkit/FormColours.h"
#include "toolkit/FormFont.h"
#include "toolkit/LookFollower.h"
#include "ui_AboutForm.h"

#include <QApplication>
#include <QLayout>
#include <QRegularExpression>
#include <QStringList>

QString GetAppVersion()
{
    return GetAppVersion(VELMORA_VERSION_TEXT);
}

QString GetAppVersion(const char* compiledVersion)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,5}(\\.[0-9]{1,5}){0,3}$"));
    const QString text = QString::fromLatin1(compiledVersion);
    if (!form.match(text).hasMatch())
        return {};
    QStringList parts = text.split(QLatin1Char('.'));
    for (QString& part : parts) {
        const uint number = part.toUInt();
        // Each number is 16 bits wide in an executable's version.
        if (number > 65535)
            return {};
        part = QString::number(number);
    }
    while (parts.size() < 4)
        parts.append(QStringLiteral("0"));
    return parts.join(QLatin1Char('.'));
}

QUrl documentationPageUrl()
{
    return QUrl(QStringLiteral("https://" VELMORA_SITE_HOST "/products/velmora/documentation/"));
}

QUrl homePageUrl()
{
    return QUrl(QStringLiteral("https://" VELMORA_SITE_HOST "/"));
}

TFormAbout::TFormAbout(const std::function<QDateTime()>& clock, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::TFormAbout>())
{
    m_ui->setupUi(this);
    new FocusFrameFollower(this);
    new LookFollower(this, [this] {
        setFont(formFont(QApplication::font()));
        keepDrawnButtonWidths(this);
        const FormColours colours = formColours(QApplication::palette());
        paintSurface(this, colours.page, colours.pageText);
    });
    // Its layout sizes it: the drawn 448 by 330 at the drawn font, larger when the text needs it.
    layout()->activate();
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    FormCreate(clock ? clock() : QDateTime::currentDateTime());
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::FormCreate(const QDateTime& now)
{
    const int year = now.date().year();
    setWindowTitle(QStringLiteral("About - ") + ProductTitle);
    m_ui->lblApplicationName->setText(ProductTitle);
    m_ui->lblCopyright->setText(
        QStringLiteral("Copyright \u00a9 %1 %2").arg(year).arg(ProductTitle));
    m_ui->lblVersion->setText(QStringLiteral("Version: ") + GetAppVersion());
}
