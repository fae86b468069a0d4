# Kestrovanilque - apparent orders pU against the grid spacing (no exact solution).
# pU of a value comes from three grids; grey lines: the true orders pL, p2 and p3.
# Every run keeps lines 1 to 15 and writes its title and a replot after them.
set xlabel 'log10(h)' noenhanced; set ylabel 'order' noenhanced; set title noenhanced font ',13'
set key outside right top vertical Left reverse noenhanced spacing 1.3 samplen 3
set grid lc rgb '#dddddd'; set border lw 1.2; set tics out nomirror; set xtics mirror; set ytics mirror
set style data linespoints; set pointsize 1.3; set offsets graph 0.02, graph 0.02, graph 0.04, graph 0.04; set yrange [-4 < * : * < 16]
undefine STATS_*; stats 'pL.dat' using 2 nooutput; if (!exists('STATS_records') || STATS_records == 0) { set xrange [-3:0]; set yrange [0:8] }
plot 'pL.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 2 title 'pL', \
     'p2.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 4 title 'p2', 'p3.dat' using 1:2 with lines lc rgb '#555555' lw 1.5 dt 3 title 'p3', \
     'pU_h.dat' using 1:2 lc rgb '#000000' lw 1.5 pt 7 title 'pU(Th)', \
     'pU_i.dat' using 1:2 lc rgb '#D55E00' lw 1.5 pt 13 title 'pU(Ti_pU)', \
     'pU_bi.dat' using 1:2 lc rgb '#E69F00' lw 1.5 pt 5 title 'pU(Tbi_pU)', \
     'pU_c12.dat' using 1:2 lc rgb '#CC79A7' lw 1.5 pt 9 title 'pU(Tc_12)', \
     'pU_c13.dat' using 1:2 lc rgb '#0072B2' lw 1.5 pt 11 title 'pU(Tc_13)'
