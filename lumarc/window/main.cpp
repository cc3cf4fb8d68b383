#include "lumarc/window/startup.h"

int main(int argc, char** argv) { return lumarc::ui::runLumarc(argc, argv); }
