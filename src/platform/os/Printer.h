#pragma once
// The printer: the print dialog goes through the dialog runner, so a test answers it (and points the
// printer at a PDF file) instead of a user.
#include <QString>

class QPrinter;
class QWidget;

namespace bd::os {

// Shows the print dialog for printer; true when the user chose to print.
bool runPrintDialog(QPrinter* printer, QWidget* parent, const QString& title = {});

} // namespace bd::os
