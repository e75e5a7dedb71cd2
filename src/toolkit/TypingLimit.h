#pragma once

#include <QObject>

class QLineEdit;

// Limits what the user can type into a field without cutting a longer text that
// the program puts there: typing and pasting stop at the limit, deleting always works.
class TypingLimit : public QObject
{
    Q_OBJECT

public:
    TypingLimit(int maxLength, QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool wouldExceed(qsizetype inserted) const;

    int m_maxLength;
    QLineEdit* m_field;
};
