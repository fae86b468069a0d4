# Kestrovanilque - true errors against the grid spacing, in decimal logarithms.
# log10|E| of the grid values Th and of each extrapolated or convergent value; grey lines:
# the slopes pL, p2 and p3 from the error of the coarsest grid. A point is missing where an
# error is zero or its value undefined. Every run keeps lines 1 to 19 and adds title + replot.
set xlabel 'log10(h)' noenhanced; set ylabel 'log10 |E|' noenhanced; set title noenhanced font ',13'
set key outside right top vertical Left reverse noenhanced spacing 1.3 samplen 3
set grid lc rgb '#dddddd'; set border lw 1.2; set tics out nomirror; set xtics mirror; set ytics mirror
set style data linespoints; set pointsize 1.3; set offsets graph 0.02, graph 0.02, graph 0.04, graph 0.04
undefine STATS_*; stats 'E_pL_p2.dat' using 2 nooutput; if (!exists('STATS_records') || STATS_records == 0) { set xrange [-3:0]; set yrange [-12:0] }
plot 'Eh.dat' using 1:2 lc rgb '#000000' lw 2 pt 7 title 'E(Th)', \
     'Ei_12.dat' using 1:2 lc rgb '#0072B2' lw 1.5 pt 5 title 'E(Ti_12)', \
     'Ei_13.dat' using 1:2 lc rgb '#56B4E9' lw 1.5 pt 9 title 'E(Ti_13)', \
     'Ei_23.dat' using 1:2 lc rgb '#17BECF' lw 1.5 pt 11 title 'E(Ti_23)', \
     'Ei_pU.dat' using 1:2 lc rgb '#D55E00' lw 1.5 pt 13 title 'E(Ti_pU)', \
     'Ei_bi.dat' using 1:2 lc rgb '#009E73' lw 1.5 pt 15 title 'E(Ti_bi)', 'Ei_tri.dat' using 1:2 lc rgb '#8C564B' lw 1.5 pt 4 title 'E(Ti_tri)', \
     'Ec_12.dat' using 1:2 lc rgb '#CC79A7' lw 1.5 pt 8 title 'E(Tc_12)', 'Ec_13.dat' using 1:2 lc rgb '#9467BD' lw 1.5 pt 10 title 'E(Tc_13)', \
     'Ebi.dat' using 1:2 lc rgb '#E69F00' lw 1.5 pt 12 title 'E(Tbi_pU)', \
     'E_pL_p2.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 2 title 'slope pL', '' using 1:3 with lines lc rgb '#555555' lw 1.5 dt 4 title 'slope p2', \
     'E_p3.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 3 title 'slope p3'
