#include "shell/Error.h"

#include "toolkit/ShellActions.h"
#include "ui_ErrorForm.h"

#include <QFont>

TFormError::TFormError(ShellActions& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::TFormError>()), m_shell(shell)
{
    m_ui->setupUi(this);
    setFixedSize(360, 380);
    connect(m_ui->AdvGlowButton1, &QPushButton::clicked, this, &TFormError::AdvGlowButton1Click);
    connect(m_ui->AdvGlowButton2, &QPushButton::clicked, this, &QDialog::reject);
}

TFormError::~TFormError() = default;

void TFormError::showError(const QString& text, QWidget* over)
{
    m_ui->Memo1->setPlainText(text);
    m_ui->Memo1->moveCursor(QTextCursor::Start);
    if (over) {
        const QRect frame = over->frameGeometry();
        QPoint topLeft = frame.center() - QPoint(width() / 2, height() / 2);
        topLeft.setX(qMax(0, topLeft.x()));
        topLeft.setY(qMax(0, topLeft.y()));
        move(topLeft);
    }
    m_ui->Memo1->setFocus();
    exec();
}

void TFormError::AdvGlowButton1Click()
{
    m_shell.copyToClipboard(m_ui->Memo1->toPlainText());
}
