#include "tools/morsehandler/ialphabethandler.h"

IAlphabetHandler::~IAlphabetHandler() {}
