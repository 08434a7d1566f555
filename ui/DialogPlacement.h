#pragma once

class QWidget;

// Puts a dialog's frame centred over the main window's frame.
void CentreOver(QWidget *dialog, const QWidget *mainWindow);
