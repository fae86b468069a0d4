# Kestrovanilque_E_U_2.gnu: prepared plot commands (test placeholder)
set terminal dumb 120 40
set key left top
set xlabel 'log10(h)'
set ylabel 'value'
set grid
plot 'Eh.dat' w lp, 'Uc_12.dat' w lp, 'U_pL.dat' w l, 'U_p2.dat' w l
# prepared line 8 of 20
# prepared line 9 of 20
# prepared line 10 of 20
# prepared line 11 of 20
# prepared line 12 of 20
# prepared line 13 of 20
# prepared line 14 of 20
# prepared line 15 of 20
# prepared line 16 of 20
# prepared line 17 of 20
# prepared line 18 of 20
# prepared line 19 of 20
# prepared line 20 of 20
