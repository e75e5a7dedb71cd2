#include "RecordingSurface.h"

#include <stdexcept>

RecordingSurface::RecordingSurface(int portraitWidth, int portraitHeight, int characterWidth)
    : m_portraitWidth(portraitWidth), m_portraitHeight(portraitHeight),
      m_characterWidth(characterWidth)
{
}

void RecordingSurface::failOn(RecordedCall::Kind kind, int n)
{
    m_failKind = kind;
    m_failCountdown = n;
}

void RecordingSurface::setInitialOrientation(QPageLayout::Orientation orientation)
{
    m_orientation = orientation;
}

QList<RecordedCall> RecordingSurface::callsOf(RecordedCall::Kind kind) const
{
    QList<RecordedCall> result;
    for (const RecordedCall& call : m_calls) {
        if (call.kind == kind)
            result.append(call);
    }
    return result;
}

void RecordingSurface::setOrientation(QPageLayout::Orientation orientation)
{
    if (m_jobOpen)
        throw std::runtime_error("orientation changed during a job");
    maybeFail(RecordedCall::Kind::SetOrientation);
    m_orientation = orientation;
    record(RecordedCall::Kind::SetOrientation);
}

int RecordingSurface::pageWidth() const
{
    return m_orientation == QPageLayout::Portrait ? m_portraitWidth : m_portraitHeight;
}

int RecordingSurface::pageHeight() const
{
    return m_orientation == QPageLayout::Portrait ? m_portraitHeight : m_portraitWidth;
}

int RecordingSurface::textWidth(const QString& text) const
{
    return m_characterWidth * int(text.size());
}

int RecordingSurface::textHeight(const QString&) const
{
    return textHeightUnits;
}

void RecordingSurface::beginJob()
{
    if (m_jobOpen)
        throw std::runtime_error("job begun twice");
    maybeFail(RecordedCall::Kind::BeginJob);
    m_jobOpen = true;
    m_page = 1;
    record(RecordedCall::Kind::BeginJob);
}

void RecordingSurface::newPage()
{
    requireJob("newPage");
    maybeFail(RecordedCall::Kind::NewPage);
    ++m_page;
    record(RecordedCall::Kind::NewPage);
}

void RecordingSurface::endJob()
{
    requireJob("endJob");
    maybeFail(RecordedCall::Kind::EndJob);
    record(RecordedCall::Kind::EndJob);
    m_jobOpen = false;
}

void RecordingSurface::abortJob() noexcept
{
    if (!m_jobOpen)
        return;
    record(RecordedCall::Kind::AbortJob);
    m_jobOpen = false;
}

void RecordingSurface::drawText(int x, int y, const QString& text)
{
    requireJob("drawText");
    record(RecordedCall::Kind::Text, {x, y}, text);
}

void RecordingSurface::drawRectangle(int left, int top, int right, int bottom)
{
    requireJob("drawRectangle");
    record(RecordedCall::Kind::Rectangle, {left, top, right, bottom});
}

void RecordingSurface::frameRectangle(int left, int top, int right, int bottom)
{
    requireJob("frameRectangle");
    record(RecordedCall::Kind::Frame, {left, top, right, bottom});
}

void RecordingSurface::drawLine(int x1, int y1, int x2, int y2)
{
    requireJob("drawLine");
    record(RecordedCall::Kind::Line, {x1, y1, x2, y2});
}

void RecordingSurface::setLineColour(const QColor& colour)
{
    m_lineColour = colour;
    record(RecordedCall::Kind::SetLineColour, {}, {}, colour);
}

void RecordingSurface::setFillColour(const QColor& colour)
{
    m_fillColour = colour;
    record(RecordedCall::Kind::SetFillColour, {}, {}, colour);
}

void RecordingSurface::record(RecordedCall::Kind kind, const QList<int>& coordinates,
                              const QString& text, const QColor& colour)
{
    m_calls.append({kind, coordinates, text, colour, m_orientation, m_lineColour, m_fillColour,
                    m_jobOpen ? m_page : 0});
}

void RecordingSurface::requireJob(const char* operation) const
{
    if (!m_jobOpen)
        throw std::runtime_error(std::string(operation) + " outside a job");
}

void RecordingSurface::maybeFail(RecordedCall::Kind kind)
{
    if (kind != m_failKind || m_failCountdown <= 0)
        return;
    if (--m_failCountdown == 0)
        throw std::runtime_error("simulated printer failure");
}
