/* Mbed TLS settings for the Windows program (MBEDTLS_USER_CONFIG_FILE of scripts/mingw-deps).
 *
 * Mbed TLS formats text with msvcrt's _vsnprintf_s whenever the headers define _TRUNCATE, and
 * msvcrt.dll has that function only from Windows Vista on. Without _TRUNCATE it uses mingw-w64's
 * vsnprintf and terminates the text itself, which every Windows version runs. */
#include <_mingw.h>
#undef _TRUNCATE
