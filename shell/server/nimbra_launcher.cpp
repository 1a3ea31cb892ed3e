// internals/nimbra: the CGI interpreter of the local server. It runs the
// system's php-cgi with the environment the server prepared. php-cgi only
// answers with CGI headers when it believes a web server sent the request,
// which REDIRECT_STATUS=200 tells it.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main() {
    if (setenv("REDIRECT_STATUS", "200", 1) != 0) return 127;
    char program[] = "php-cgi";
    char* argv[] = {program, nullptr};
    // The server passes PATH on; without it, the Debian location.
    if (getenv("PATH") != nullptr) execvp(program, argv);
    execv("/usr/bin/php-cgi", argv);
    // The server reports an answer without headers; say why on the output.
    printf("Status: 500\r\nContent-Type: text/plain\r\n\r\nphp-cgi could not be started: %s\n",
           strerror(errno));
    return 127;
}
