// The C runtime's extensions that glibc lacks.
#include <cctype>

#include "windows.h"

char* _itoa(int value, char* buffer, int radix) {
    if (!buffer) return buffer;
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char digits[40];
    int n = 0;
    bool negative = radix == 10 && value < 0;
    // Other radixes write the bit pattern, as the platform does.
    uint32_t v = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        uint32_t d = v % static_cast<uint32_t>(radix);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + (d - 10));
        v /= static_cast<uint32_t>(radix);
    } while (v != 0);
    char* out = buffer;
    if (negative) *out++ = '-';
    while (n > 0) *out++ = digits[--n];
    *out = '\0';
    return buffer;
}

int _stricmp(const char* a, const char* b) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;; ++p, ++q) {
        int ca = std::tolower(*p);
        int cb = std::tolower(*q);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

// A to Z only, whatever the locale: bytes of other code pages stay as they are.
char* _strlwr(char* text) {
    if (!text) return text;
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return text;
}
