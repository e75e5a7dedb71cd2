#pragma once

#include "common/TimeLimits.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// One upload for the page helper (velmora-upload-page): the FTP server, the
// credentials, the page template and what to fill into it. The service hands
// it over on the helper's standard input, never on its command line, where
// other users of the machine could read the password.
struct PageJob
{
    QString host;
    int port = 21;
    QString username;
    QString password;
    int replyTimeoutSeconds = int(timelimits::FtpReply.count());

    QString templateFile;                        // read, never changed
    QList<QPair<QString, QString>> replacements; // applied in order to a copy
    QString remoteName;                          // the uploaded file's name

    QByteArray encode() const;
    // Nothing when the bytes are not a whole job.
    static std::optional<PageJob> decode(const QByteArray& bytes);
};
