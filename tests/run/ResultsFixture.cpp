#include "tests/run/ResultsFixture.h"

#include "tests/run/DbfFixture.h"

namespace quillora::test {

bool makeResultTables(const QString& source, const QString& destination)
{
    return makeDbfWithXBase(source, QStringLiteral("COD:C:6,NOME:C:10,QTD:C:5"),
                            {"1|Ana|5", "2|Bia|6", "3|Caio|7", "4,1|Davi|abc"}) &&
           makeDbfWithXBase(destination, QStringLiteral("CODIGO:C:6,NOME:C:10,QTD:N:3:0"),
                            {"1|Ana|5", "2|Bete|6", "4,1|Dora|8", "7|Gil|1"});
}

}  // namespace quillora::test
