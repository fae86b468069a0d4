# Kestrovanilque_U.gnu: prepared plot commands (test placeholder)
set terminal dumb 120 40
set key left top
set xlabel 'log10(h)'
set ylabel 'value'
set grid
plot 'U_12.dat' u 1:2 w lp, 'U_12.dat' u 1:3 w lp, 'U_pL.dat' w l, 'U_p3.dat' w l
# prepared line 8 of 16
# prepared line 9 of 16
# prepared line 10 of 16
# prepared line 11 of 16
# prepared line 12 of 16
# prepared line 13 of 16
# prepared line 14 of 16
# prepared line 15 of 16
# prepared line 16 of 16
set title 'Three grids, Joe''s case (16/12/2026)'
replot
