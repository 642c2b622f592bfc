#include "CatalogSchema.h"

namespace CatalogSchema {

QStringList PgSearchIndexStatements()
{
    return {};
}

} // namespace CatalogSchema
