// The module's numbered user texts, kept in its string table.
#pragma once

// The text of message ID, in one shared buffer that the next lookup
// overwrites: use it (print it, copy it) at once. For an id without text,
// prints "\nError Loading Message: message %d not found." and returns "".
const char* messageText(int id);
