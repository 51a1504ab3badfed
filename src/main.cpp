#include "Command.h"

int main(int argc, char** argv)
{
    return RunCommand(argc, argv);
}
