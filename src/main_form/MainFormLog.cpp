// The History Log page: reading, clearing and printing the service's log.
#include "main_form/MainForm.h"

void TFormMain::ReadLogFile() {}

void TFormMain::tabLogShow()
{
    ReadLogFile();
}

void TFormMain::btnClearLogClick() {}

void TFormMain::btnPrintLogClick() {}
