#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

// Limits what the user can put into a field without cutting a longer text that
// the program puts there: a typed character past the limit is refused before it
// reaches the field, a paste or a drop is cut to the room left (and refused when
// there is none), deleting always works.
class TypingLimit : public QObject
{
    Q_OBJECT

public:
    TypingLimit(int maxLength, QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qsizetype roomFor(qsizetype replaced) const;
    void keepWithinLimit(const QString& edited);

    int m_maxLength;
    QLineEdit* m_field;
    // The text before the user's edit now being made.
    QString m_text;
};
