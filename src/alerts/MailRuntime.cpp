#include "alerts/MailRuntime.h"

#include "alerts/MailError.h"

#include <curl/curl.h>

MailRuntime::MailRuntime()
{
    const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK)
        throw MailError(QStringLiteral("The mail engine could not be set up: %1")
                            .arg(QString::fromUtf8(curl_easy_strerror(code))));
}

MailRuntime::~MailRuntime()
{
    curl_global_cleanup();
}
