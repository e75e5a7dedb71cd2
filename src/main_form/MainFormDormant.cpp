// The Run Program and FTP pages, whose tabs are hidden.
#include "main_form/MainForm.h"

void TFormMain::btnSelectProgramClick() {}

void TFormMain::btnTestProgramClick() {}

void TFormMain::btnUploadTestPageClick() {}
