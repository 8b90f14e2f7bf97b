#pragma once

// The flag pictures of the language buttons, drawn by the program itself.

#include <QPixmap>

// Flags at the given height; the width follows each flag's proportions (Czech 3:2,
// British 2:1).
QPixmap CzechFlag(int height);
QPixmap BritishFlag(int height);
