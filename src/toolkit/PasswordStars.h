#pragma once

class QLineEdit;

// The field hides a password behind "*", where styles draw a dot.
void showPasswordAsStars(QLineEdit* field);
