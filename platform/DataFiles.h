#pragma once

#include <QString>

// Files that live beside the program (sounds, logo, help): looked up in the program's
// directory, then in the installed data directory. Empty when neither has it.
namespace DataFiles {
QString find(const QString &fileName);
}
