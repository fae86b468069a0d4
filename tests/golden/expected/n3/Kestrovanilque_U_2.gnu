# Kestrovanilque_U_2.gnu: prepared plot commands (test placeholder)
set terminal dumb 120 40
set key left top
set xlabel 'log10(h)'
set ylabel 'value'
set grid
plot 'Uc_12.dat' w lp, 'Uc_13.dat' w lp, 'U_pL.dat' w l, 'U_p3.dat' w l
# prepared line 8 of 15
# prepared line 9 of 15
# prepared line 10 of 15
# prepared line 11 of 15
# prepared line 12 of 15
# prepared line 13 of 15
# prepared line 14 of 15
# prepared line 15 of 15
set title 'Three grids, Joe''s case (16/12/2026)'
replot
