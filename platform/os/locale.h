#pragma once
// The program's text handling is byte-wise and its number texts use ".", whatever the user's locale.

namespace os {

// Sets LC_CTYPE and LC_NUMERIC of the C library to "C". Call at start-up and again after a toolkit
// has set the user's locale (GTK does so when it starts).
void pinCLocale();

} // namespace os
