# Kestrovanilque_pU.gnu: prepared plot commands (test placeholder)
set terminal dumb 120 40
set key left top
set xlabel 'log10(h)'
set ylabel 'value'
set grid
plot 'pL.dat' w l, 'p2.dat' w l, 'pU_h.dat' w lp, 'pU_i.dat' w lp
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
