#pragma once

// libcurl's process-wide set-up, made once in main() before any mail is sent
// and undone when the program ends. Create exactly one, on the main thread.
class MailRuntime
{
public:
    MailRuntime(); // throws MailError when libcurl cannot be set up
    ~MailRuntime();
    MailRuntime(const MailRuntime&) = delete;
    MailRuntime& operator=(const MailRuntime&) = delete;
};
