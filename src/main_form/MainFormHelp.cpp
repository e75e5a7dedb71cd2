// The Help menu: the maker's web pages and the About dialog.
#include "main_form/MainForm.h"
#include "shell/About.h"
#include "toolkit/ShellActions.h"

void TFormMain::Help2Click()
{
    m_context.shell->openUrl(documentationPageUrl());
}

void TFormMain::VisitWebSiteClick()
{
    m_context.shell->openUrl(homePageUrl());
}

void TFormMain::About2Click()
{
    // A fresh dialog each time, so the year and version are worked out anew.
    TFormAbout about(m_context.clock, this);
    about.exec();
}
