#pragma once

class QLineEdit;

// Makes a password field show "*" for each character typed. Qt's styles
// draw the platform's own mask character (a dot on most desktops); the
// fields of this program show stars on every platform.
void ShowPasswordAsStars(QLineEdit* edit);
