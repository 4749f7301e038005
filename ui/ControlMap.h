#pragma once

#include <QString>

class QWidget;

// For tools that drive the window from outside, as scripts/screenshot does:
// writes every named control of pWindow with its rectangle in the window's
// own coordinates, one per line, "name x y width height". A score list adds
// its column headers as "name:column:<id>" (<id>: "No", "Domain" or the
// metric's id) and its first row's place as "name:row". False when the file
// cannot be written.
bool WriteControlMap(const QWidget& window, const QString& strPath);
