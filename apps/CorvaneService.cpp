// CorvaneService: runs the proxy servers flagged for the service, under systemd.
#include "service/service_program.h"

int main() { return corvane::RunServiceProgram(); }
