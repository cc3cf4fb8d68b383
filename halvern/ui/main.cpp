// The softphone: `halvern [--headless] [--audio DEVICE] [-C<account id>]
// [-I<exchange host>] [-P<password>] [-U<authentication id>]`.
#include "halvern/ui/program.h"

int main(int argc, char** argv) { return halvern::ui::runHalvern(argc, argv); }
