// rand_s is declared only when this is defined before <stdlib.h>.
#define _CRT_RAND_S
#include <stdlib.h>

#include "task/task_values.h"

bool DrawCryptoRandom(unsigned int* value) { return rand_s(value) == 0; }
