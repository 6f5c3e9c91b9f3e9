// Process state the program cannot trust from whoever started it.
#pragma once

// Opens /dev/null on a closed standard descriptor, and lets writes to a
// report pipe whose reader has gone fail quietly instead of killing us.
void harden_standard_streams();
