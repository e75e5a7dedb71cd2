#include "toolkit/TypingLimit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

TypingLimit::TypingLimit(int maxLength, QLineEdit* field)
    : QObject(field), m_maxLength(maxLength), m_field(field), m_text(field->text())
{
    field->installEventFilter(this);
    // Every edit of the user's (pasting by key, menu or middle click, dropping)
    // is seen here before the change is announced; the program's own are not.
    connect(field, &QLineEdit::textEdited, this, &TypingLimit::keepWithinLimit);
    // Read from the field: an edit cut meanwhile announces the uncut text later.
    connect(field, &QLineEdit::textChanged, this, [this] { m_text = m_field->text(); });
}

qsizetype TypingLimit::roomFor(qsizetype replaced) const
{
    return m_maxLength - (m_field->text().size() - replaced);
}

bool TypingLimit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const qsizetype room = roomFor(m_field->selectedText().size());
        // Nothing at all fits: the field does not change (a paste that fits in
        // part goes on, and is cut when it arrives).
        if (key->matches(QKeySequence::Paste))
            return room <= 0;
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0).isPrint())
            return text.size() > room;
    }
    return QObject::eventFilter(watched, event);
}

void TypingLimit::keepWithinLimit(const QString& edited)
{
    if (edited.size() <= m_maxLength)
        return;
    // The cursor ends right after what was put in; what follows it is unchanged.
    const qsizetype end = m_field->cursorPosition();
    const qsizetype after = edited.size() - end;
    const qsizetype startLimit = std::min(end, m_text.size() - after);
    qsizetype start = 0;
    while (start < startLimit && edited.at(start) == m_text.at(start))
        ++start;
    const qsizetype inserted = end - start;
    if (inserted <= 0)
        return; // a deletion
    const qsizetype room = m_maxLength - (edited.size() - inserted);
    if (room <= 0) {
        const QString before = m_text;
        m_field->setText(before);
        m_field->setCursorPosition(int(std::min(start, before.size())));
        return;
    }
    m_field->setText(edited.left(start + room) + edited.right(after));
    m_field->setCursorPosition(int(start + room));
}
