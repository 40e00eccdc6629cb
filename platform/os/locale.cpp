#include "platform/os/locale.h"

#include <clocale>

namespace os {

void pinCLocale() {
    std::setlocale(LC_CTYPE, "C");
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace os
