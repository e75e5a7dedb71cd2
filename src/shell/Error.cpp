#include "shell/Error.h"

#include "toolkit/DrawnWidths.h"
#include "toolkit/FocusFrameFollower.h"
#include "toolkit/FormColours.h"
#include "toolkit/FormFont.h"
#include "toolkit/LookFollower.h"
#include "toolkit/ShellActions.h"
#include "ui_ErrorForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>

TFormError::TFormError(ShellActions& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::TFormError>()), m_shell(shell)
{
    m_ui->setupUi(this);
    m_ui->Memo1->setAccessibleDescription(m_ui->StaticText2->text());
    new FocusFrameFollower(this);
    new LookFollower(this, [this] {
        setFont(formFont(QApplication::font()));
        keepDrawnButtonWidths(this);
        const FormColours colours = formColours(QApplication::palette());
        paintSurface(this, colours.window, colours.windowText);
    });
    // Its layout sizes it: the drawn 360 by 380 at the drawn font, larger when the text needs it.
    layout()->activate();
    connect(m_ui->AdvGlowButton1, &QPushButton::clicked, this, &TFormError::AdvGlowButton1Click);
    connect(m_ui->AdvGlowButton2, &QPushButton::clicked, this, &QDialog::reject);
}

TFormError::~TFormError() = default;

void TFormError::showError(const QString& text, QWidget* over)
{
    QPlainTextEdit* memo = m_ui->Memo1;
    memo->setPlainText(text);
    memo->moveCursor(QTextCursor::Start);
    if (over) {
        const QRect window = over->frameGeometry();
        const QSize size = frameGeometry().size();
        const QPoint topLeft = window.topLeft() + QPoint((window.width() - size.width()) / 2,
                                                         (window.height() - size.height()) / 2);
        move(qMax(0, topLeft.x()), qMax(0, topLeft.y()));
    }
    memo->setFocus();
    exec();
}

void TFormError::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A plain text box measures lines only as they come into view (and forgets
    // them when it is first sized); measuring all of them once it is shown lets
    // the horizontal bar reach the widest line from the start.
    QTextDocument* document = m_ui->Memo1->document();
    if (auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout()))
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            layout->ensureBlockLayout(block);
}

void TFormError::keyPressEvent(QKeyEvent* event)
{
    // Neither button is the cancel button, so Escape closes nothing.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormError::AdvGlowButton1Click()
{
    m_shell.copyToClipboard(m_ui->Memo1->toPlainText());
}
