// "Send Test Email" and "Send Test Message".
#include "main_form/MainForm.h"

void TFormMain::AdvGlowButton1Click() {}

void TFormMain::btnSendTestMessageClick() {}
