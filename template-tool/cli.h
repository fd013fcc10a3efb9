// Entry point of plom-template.
#pragma once

int template_main(int argc, char** argv);
