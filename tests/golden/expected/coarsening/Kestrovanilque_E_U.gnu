# Kestrovanilque_E_U.gnu: prepared plot commands (test placeholder)
set terminal dumb 120 40
set key left top
set xlabel 'log10(h)'
set ylabel 'value'
set grid
plot 'Eh.dat' w lp, 'U_12.dat' u 1:3 w lp, 'U_pL.dat' w l, 'U_p2.dat' w l
# prepared line 8 of 19
# prepared line 9 of 19
# prepared line 10 of 19
# prepared line 11 of 19
# prepared line 12 of 19
# prepared line 13 of 19
# prepared line 14 of 19
# prepared line 15 of 19
# prepared line 16 of 19
# prepared line 17 of 19
# prepared line 18 of 19
# prepared line 19 of 19
set title 'A coarser grid in the middle (16/12/2026)'
replot
