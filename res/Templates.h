#pragma once

#include "DialogTemplate.h"

// The dialog templates of the two panels.
const DialogTemplate& AddTxTemplate();
const DialogTemplate& AddRxTemplate();
