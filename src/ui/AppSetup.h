#pragma once

// What every run of the program (and of its widget tests) sets up once the
// application object exists: the application name, the C numeric locale and
// the stand-ins for the dialog fonts.
void ConfigureApplication();
