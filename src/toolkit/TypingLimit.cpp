#include "toolkit/TypingLimit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

TypingLimit::TypingLimit(int maxLength, QLineEdit* field)
    : QObject(field), m_maxLength(maxLength), m_field(field)
{
    field->installEventFilter(this);
}

bool TypingLimit::wouldExceed(qsizetype inserted) const
{
    return m_field->text().size() - m_field->selectedText().size() + inserted > m_maxLength;
}

bool TypingLimit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste))
            return wouldExceed(QGuiApplication::clipboard()->text().size());
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0).isPrint())
            return wouldExceed(text.size());
    }
    return QObject::eventFilter(watched, event);
}
