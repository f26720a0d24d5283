#include "app/startup.h"

int main(int argc, char **argv) { return tarsel::RunTarsel(argc, argv); }
