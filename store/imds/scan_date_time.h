// The format-driven scanner of calendar texts into a broken-down time (struct tm), on
// which the date-time arithmetic rests. English names only, no locale.
// It allocates nothing and keeps no state between calls; safe from several threads.
#pragma once

#include <ctime>

// Scans `text` under `format` (directives %a %A %b %B %h %c %C %d %D %e %H %I %j %k %l
// %m %M %n %p %r %R %S %t %T %U %w %W %x %X %y %Y %%, with the E and O modifiers where
// they apply) into `brokenDown`. Only the fields the directives name are written; the
// others keep what the caller put there. Returns the position just behind the last
// character consumed, or null when the text does not fit the format or an argument is
// null; fields written before a failure stay written.
const char* ScanDateTime(const char* text, const char* format, std::tm* brokenDown);
