#include "Statements.h"

void TStatement::BindAll(const TVariantArray &values, int first)
{
    for (size_t i = 0; i < values.size(); ++i)
        Bind(first + int(i), values[i]);
}

void TStatement::Execute()
{
    while (Step()) {
    }
}
