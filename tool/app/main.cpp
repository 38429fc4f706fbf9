// vtprereqhandler: run by the agent with administrative rights, no arguments, no window.
// The outcome is read from the log; the exit code is always 0.
#include "tool/undo_procedure.h"

int main() { return RunUndoProcedure(); }
