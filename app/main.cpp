#include "app/app_run.h"

#include <curl/curl.h>

int main(int argc, char** argv) {
    // libcurl's global state is set up once, before any thread exists, and kept for the process.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
    const int code = gf_skyloomMain(argc, argv);
    curl_global_cleanup();
    return code;
}
