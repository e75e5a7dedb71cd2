#pragma once

#include "print/PrintSurface.h"

#include <QColor>
#include <QList>
#include <QString>

// One call made on a RecordingSurface, with the state in force when it was made.
struct RecordedCall
{
    enum class Kind
    {
        SetOrientation,
        BeginJob,
        NewPage,
        EndJob,
        AbortJob,
        Text,
        Rectangle,
        Frame,
        Line,
        SetLineColour,
        SetFillColour
    };

    Kind kind;
    QList<int> coordinates; // x, y for text; left, top, right, bottom; x1, y1, x2, y2
    QString text;
    QColor colour; // the colour set by SetLineColour / SetFillColour
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QColor lineColour;
    QColor fillColour;
    int page = 0; // 1-based within the job, 0 outside a job
};

// A printer that records every call and measures text exactly: each character is
// characterWidth units wide, every text 20 units high. Pages are portraitWidth x
// portraitHeight, swapped in landscape. Misuse (drawing outside a job, turning the page
// during one) throws, and so does the operation chosen by failOn().
class RecordingSurface : public PrintSurface
{
public:
    static constexpr int textHeightUnits = 20;

    explicit RecordingSurface(int portraitWidth = 5100, int portraitHeight = 6600,
                              int characterWidth = 10);

    // The n-th call (1-based) of this kind throws std::runtime_error.
    void failOn(RecordedCall::Kind kind, int n = 1);
    void setInitialOrientation(QPageLayout::Orientation orientation);

    bool jobOpen() const { return m_jobOpen; }
    QColor lineColour() const { return m_lineColour; }
    QColor fillColour() const { return m_fillColour; }
    const QList<RecordedCall>& calls() const { return m_calls; }
    QList<RecordedCall> callsOf(RecordedCall::Kind kind) const;
    int pageCount() const { return m_page; }

    QPageLayout::Orientation orientation() const override { return m_orientation; }
    void setOrientation(QPageLayout::Orientation orientation) override;
    int pageWidth() const override;
    int pageHeight() const override;
    int textWidth(const QString& text) const override;
    int textHeight(const QString& text) const override;
    void beginJob() override;
    void newPage() override;
    void endJob() override;
    void abortJob() noexcept override;
    void drawText(int x, int y, const QString& text) override;
    void drawRectangle(int left, int top, int right, int bottom) override;
    void frameRectangle(int left, int top, int right, int bottom) override;
    void drawLine(int x1, int y1, int x2, int y2) override;
    void setLineColour(const QColor& colour) override;
    void setFillColour(const QColor& colour) override;

private:
    void record(RecordedCall::Kind kind, const QList<int>& coordinates = {},
                const QString& text = {}, const QColor& colour = {});
    void requireJob(const char* operation) const;
    void maybeFail(RecordedCall::Kind kind);

    int m_portraitWidth;
    int m_portraitHeight;
    int m_characterWidth;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QColor m_lineColour{0, 0, 0};
    QColor m_fillColour{255, 255, 255};
    bool m_jobOpen = false;
    int m_page = 0;
    QList<RecordedCall> m_calls;
    RecordedCall::Kind m_failKind = RecordedCall::Kind::Text;
    int m_failCountdown = 0;
};
