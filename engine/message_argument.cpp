#include "engine/message_argument.h"

#include "engine/path_text.h"
#include "startup/process_state.h"

void SetMessageArgument(const char* text) {
    CopyText(g_state.message_argument, text ? text : "", sizeof g_state.message_argument);
}
