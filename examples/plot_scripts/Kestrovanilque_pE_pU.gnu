# Kestrovanilque - orders of accuracy against the grid spacing (exact solution known).
# pE, filled points: effective order, from the true errors of two grids.
# pU, open points and dashed: apparent order, from the values of three grids.
# Grey lines: the true orders pL, p2 and p3; pE and pU of each value should approach one.
# Every run keeps lines 1 to 20 and writes its title and a replot after them.
set xlabel 'log10(h)' noenhanced; set ylabel 'order' noenhanced; set title noenhanced font ',13'
set key outside right top vertical Left reverse noenhanced spacing 1.3 samplen 3
set grid lc rgb '#dddddd'; set border lw 1.2; set tics out nomirror; set xtics mirror; set ytics mirror
set style data linespoints; set pointsize 1.3; set offsets graph 0.02, graph 0.02, graph 0.04, graph 0.04
# Orders outside [-4, 16] (grids dominated by round-off) are clipped at the frame.
set yrange [-4 < * : * < 16]
undefine STATS_*; stats 'pL.dat' using 2 nooutput; if (!exists('STATS_records') || STATS_records == 0) { set xrange [-3:0]; set yrange [0:8] }
plot 'pL.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 2 title 'pL', \
     'p2.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 4 title 'p2', \
     'p3.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 3 title 'p3', \
     'pE_h.dat' using 1:2 lc rgb '#000000' lw 1.5 pt 7 title 'pE(Th)', 'pU_h.dat' using 1:2 lc rgb '#000000' lw 1.5 pt 6 dt 2 title 'pU(Th)', \
     'pE_i.dat' using 1:2 lc rgb '#D55E00' lw 1.5 pt 13 title 'pE(Ti_pU)', 'pU_i.dat' using 1:2 lc rgb '#D55E00' lw 1.5 pt 12 dt 2 title 'pU(Ti_pU)', \
     'pE_bi.dat' using 1:2 lc rgb '#E69F00' lw 1.5 pt 5 title 'pE(Tbi_pU)', 'pU_bi.dat' using 1:2 lc rgb '#E69F00' lw 1.5 pt 4 dt 2 title 'pU(Tbi_pU)', \
     'pE_c12.dat' using 1:2 lc rgb '#CC79A7' lw 1.5 pt 9 title 'pE(Tc_12)', 'pU_c12.dat' using 1:2 lc rgb '#CC79A7' lw 1.5 pt 8 dt 2 title 'pU(Tc_12)', \
     'pE_c13.dat' using 1:2 lc rgb '#0072B2' lw 1.5 pt 11 title 'pE(Tc_13)', 'pU_c13.dat' using 1:2 lc rgb '#0072B2' lw 1.5 pt 10 dt 2 title 'pU(Tc_13)'
