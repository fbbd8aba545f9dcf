#pragma once

// The host's value framework: the tree, its typed values and the observer interface.
#include "host/observable.h"
#include "host/tree.h"
#include "host/value.h"
#include "host/valuebase.h"
#include "host/valuenumeric.h"
#include "host/valueselection.h"
