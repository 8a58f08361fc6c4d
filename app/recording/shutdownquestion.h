#pragma once

class QWidget;

// Asks "Your computer will be shutdown in 60 seconds" with "Cancel" and
// "Shutdown", counting the seconds down in the text. "Shutdown", or the
// countdown reaching 0, switches the computer off (EnableShutdown());
// "Cancel" or closing the question does nothing. Returns true when the
// power-off was requested and accepted.
//
// Modal; GUI thread.
bool AskShutdown(QWidget* parent, int seconds = 60);
