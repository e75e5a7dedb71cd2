#include "toolkit/TrayIcon.h"

TrayIcon::~TrayIcon() = default;
