#pragma once

#include "host/values.h"

#include <QString>

/// The values of the value tree that a DecodeHost's handler is bound to, all under one root:
/// what the monitoring application's controls and displays would hold.
struct DecodeHostValues
{
    /// Finds or makes every value under @p root (which ends with "/"); false when the tree
    /// already holds a value of another type at one of their paths.
    bool Make(const QString& root);

    values::ValueNumeric<int>* symbol = nullptr;
    values::Value<bool>* available = nullptr;
    values::Value<QString>* text = nullptr;
    values::ValueSelection* alphabet = nullptr;
    values::Value<QString>* alphabetDirectory = nullptr;
    values::Value<bool>* rightToLeft = nullptr;
    values::Value<bool>* saveToFile = nullptr;
    values::Value<bool>* xmlSave = nullptr;
    values::Value<QString>* textFileName = nullptr;
    values::Value<QString>* codeFileName = nullptr;
    values::Value<QString>* xmlFileName = nullptr;
    values::ValueNumeric<double>* frequency = nullptr;
    values::ValueSelection* modulation = nullptr;
    values::ValueSelection* decoderResult = nullptr;
    values::Value<bool>* generateSettings = nullptr;
    values::Value<QString>* tunerSettings = nullptr;
    values::Value<QString>* saveState = nullptr;
};
