// The Help menu: the maker's web pages and the About dialog.
#include "main_form/MainForm.h"

void TFormMain::Help2Click() {}

void TFormMain::VisitWebSiteClick() {}

void TFormMain::About2Click() {}
