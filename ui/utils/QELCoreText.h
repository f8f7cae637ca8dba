#pragma once

#include <QString>
#include <string>

// A text from the layers below the screens (settings and routing notices,
// import and naming messages, voice names), which speak Chinese only, in the
// interface's language. The names and details they carry (a device, a file,
// an error) pass through untouched; a text this table does not know shows
// as it came.
QString QELCoreText(const std::string& text);
