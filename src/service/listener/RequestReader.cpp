#include "service/listener/RequestReader.h"

#include "common/ErrorText.h"
#include "common/Framing.h"
#include "common/ServiceProtocol.h"

namespace {

constexpr qint32 SaveListLines = settingtable::WireValueCount + 1;

// The first bytes of a command for the log, without control bytes.
QString shortened(const QByteArray& command)
{
    QString text = QString::fromLatin1(command.left(40));
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return command.size() > 40 ? text + QStringLiteral("...") : text;
}

} // namespace

RequestReader::Status RequestReader::add(const char* data, qsizetype size)
{
    if (m_status != Status::NeedMore)
        return m_status;
    m_receivedAny = m_receivedAny || size > 0;
    m_buffer.append(data, size);
    return m_status = parse();
}

RequestReader::Status RequestReader::endOfInput()
{
    if (m_status != Status::NeedMore)
        return m_status;
    // A connection closed without a byte is only someone checking that we listen.
    return m_status = reject(m_receivedAny ? QStringLiteral("the connection ended before the "
                                                            "request was whole")
                                           : QString());
}

RequestReader::Status RequestReader::reject(const QString& reason)
{
    m_rejection = reason;
    m_buffer.clear();
    return Status::Rejected;
}

RequestReader::Status RequestReader::parse()
{
    try {
        if (m_stage == Stage::CommandLine) {
            const std::optional<QByteArray> line = framing::takeLine(m_buffer);
            if (!line)
                return Status::NeedMore;
            m_request.command = *line;
            if (*line == service::GetCellularProviders || *line == service::GetSettings ||
                *line == service::UpdateStatus || *line == service::GetKeyedSettings ||
                *line == service::GetKeyedStatus)
                return Status::Complete;
            if (*line != service::SaveSettings && *line != service::SaveKeyedSettings)
                return reject(QStringLiteral("unknown command \"%1\"").arg(shortened(*line)));
            m_stage = Stage::Count;
        }
        if (m_stage == Stage::Count) {
            const std::optional<qint32> count = framing::takeCount(m_buffer);
            if (!count)
                return Status::NeedMore;
            if (m_request.command == service::SaveSettings && *count != SaveListLines)
                return reject(QStringLiteral("a settings list of %1 lines instead of %2")
                                  .arg(*count)
                                  .arg(SaveListLines));
            if (m_request.command == service::SaveKeyedSettings &&
                (*count < 0 || *count > service::MaxKeyedLines))
                return reject(QStringLiteral("a list of %1 settings (at most %2)")
                                  .arg(*count)
                                  .arg(service::MaxKeyedLines));
            m_count = *count;
            m_stage = Stage::Lines;
        }
        while (m_request.list.size() < m_count) {
            const std::optional<QByteArray> line = framing::takeLine(m_buffer);
            if (!line)
                return Status::NeedMore;
            m_request.list.append(*line);
        }
        return Status::Complete;
    } catch (const framing::FramingError& e) {
        return reject(errorText(e));
    }
}
