#ifndef NUVARO_TESTS_SAMPLESERVICE_HTTPCLIENT_H
#define NUVARO_TESTS_SAMPLESERVICE_HTTPCLIENT_H

// The HTTP library is the system's compiled one, built with TLS and
// compression support. Its classes have the library's layout only when
// compiled with the same switches: without them an httplib::Client is
// smaller here than in the library, whose constructor then writes past the
// end of it (over the neighbouring locals of a client on the stack).
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#ifndef CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#endif
#ifndef CPPHTTPLIB_BROTLI_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#endif
#include <httplib.h>

#endif
