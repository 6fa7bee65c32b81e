// Compiles every generated form header once, so a broken form fails this
// library's build rather than the first consumer's, and the library has an
// object file to archive.
#include "ui_curvedialog.h"
#include "ui_mainwindow.h"
