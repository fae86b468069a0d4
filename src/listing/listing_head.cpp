#include "listing/listing_head.h"

#include <string>

#include "base/numerics.h"
#include "base/text_field.h"
#include "text/format.h"

namespace kv {

void writeInputEcho(FormattedRecordWriter& listing, const RunData& run) {
  static const Format head(
      "(/,3X,'título = ',A,/,/,3X,'Dia = ',A12,5X,'Hora = ',A8,/,/,I4,19X,' = número da "
      "variável, nos arquivos de resultados, a analisar',/,/,'nome do arquivo de dados "
      "principal = ',A,/,I4,19X,' = com solução analítica?   1 = sim;   0 = não',/,'nome do "
      "arquivo da solução analítica exata = ',A,/,1PE23.14,' = solução analítica exata',/,/,"
      "I4,19X,' = ordem assintótica do erro verdadeiro',/,I4,19X,' = variação entre as ordens "
      "verdadeiras do erro verdadeiro',/,/,I4,19X,' = número de malhas',/,/,I4,19X,' = tipo de "
      "refino de malha (r): 1=constante; 2=variável',/,I4,19X,' = número máximo de iterações "
      "para obter pU com r variável',/,1PE23.14,' = tolerância na obtenção de pU com r "
      "variável',/,1PE23.14,' = limite inferior de pU (r variável)',/,1PE23.14,' = limite "
      "superior de pU (r variável)')");
  static const Format gridHeader(
      "(/,T4,'h',T27,'log10(h)',T40,'r21',T53,'arquivos com resultados numéricos:')");
  static const Format firstGrid("(1PE23.14,1PE13.4,16X,A)");
  static const Format otherGrid("(1PE23.14,2(1PE13.4),3X,A)");

  const RunParameters& p = run.params;
  const GridSeries& g = run.grid;
  listing.write(head,
                {adjusted(p.title), p.runDate, p.runTime, p.variableNumber, p.mainDataFile,
                 p.hasExactSolution, adjusted(p.exactSolutionFile), p.exactValue, p.pL, p.deltaP,
                 p.gridCount, p.refinementType, p.maxIterations, p.tolerance, p.pUMin, p.pUMax});
  listing.write(gridHeader, {});
  for (int i = 1; i <= g.count; ++i) {
    if (i == 1) {
      listing.write(firstGrid, {g.h(1), log10(g.h(1)), adjusted(g.gridFile(1))});
    } else {
      listing.write(otherGrid,
                    {g.h(i), log10(g.h(i)), g.h(i - 1) / g.h(i), adjusted(g.gridFile(i))});
    }
  }
}

}  // namespace kv
