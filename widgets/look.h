#pragma once
// The application's look: a compact font that fits the designed control
// sizes, and the program's icon.

class QApplication;

void applyLook(QApplication& app);
