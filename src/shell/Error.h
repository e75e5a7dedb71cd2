#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormError;
}
class ShellActions;

// Shows the mail engine's long error text after a failed test send and lets the
// user copy it for support. Created once at start-up, hidden between uses.
class TFormError : public QDialog
{
    Q_OBJECT

public:
    explicit TFormError(ShellActions& shell, QWidget* parent = nullptr);
    ~TFormError() override;

    Ui::TFormError& ui() { return *m_ui; }

    // Replaces the whole text and shows the dialog modally, centred over the
    // given window but never above or left of the desktop's top-left corner.
    void showError(const QString& text, QWidget* over);

    // "Copy Error Message": the whole text, not only a selection.
    void AdvGlowButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::TFormError> m_ui;
    ShellActions& m_shell;
};
