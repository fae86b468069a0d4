# Kestrovanilque - estimated errors of Th against the grid spacing, in decimal logarithms,
# beside the true error E(Th) (exact solution known): the delta estimator Ud and the
# Richardson estimators Uri_*. Grey lines: the slopes pL, p2 and p3 from the estimate
# Uri_12 of grid 2. A point is missing where an estimate is zero or undefined.
# Every run keeps lines 1 to 19 and writes its title and a replot after them.
set xlabel 'log10(h)' noenhanced; set ylabel 'log10 |error|' noenhanced; set title noenhanced font ',13'
set key outside right top vertical Left reverse noenhanced spacing 1.3 samplen 3
set grid lc rgb '#dddddd'; set border lw 1.2; set tics out nomirror; set xtics mirror; set ytics mirror
set style data linespoints; set pointsize 1.3; set offsets graph 0.02, graph 0.02, graph 0.04, graph 0.04
undefine STATS_*; stats 'U_pL.dat' using 2 nooutput; if (!exists('STATS_records') || STATS_records == 0) { set xrange [-3:0]; set yrange [-12:0] }
plot 'Eh.dat' using 1:2 lc rgb '#000000' lw 2.5 pt 7 title 'E(Th), true', \
     'U_12.dat' using 1:2 lc rgb '#7F7F7F' lw 1.5 pt 2 title 'Ud', \
     'U_12.dat' using 1:3 lc rgb '#0072B2' lw 1.5 pt 5 title 'Uri_12', \
     'Uri_13.dat' using 1:2 lc rgb '#56B4E9' lw 1.5 pt 9 title 'Uri_13', \
     'Uri_23.dat' using 1:2 lc rgb '#17BECF' lw 1.5 pt 11 title 'Uri_23', \
     'Uri_pU.dat' using 1:2 lc rgb '#D55E00' lw 1.5 pt 13 title 'Uri_pU', \
     'Uri_bi.dat' using 1:2 lc rgb '#009E73' lw 1.5 pt 15 title 'Uri_bi', 'Utri.dat' using 1:2 lc rgb '#8C564B' lw 1.5 pt 4 title 'Uri_tri', \
     'U_pL.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 2 title 'slope pL', \
     'U_p2.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 4 title 'slope p2', 'U_p3.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 3 title 'slope p3'
