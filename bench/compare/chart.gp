# Four clustered bar charts of one server's results: wall time, client CPU time, peak RSS and
# requests, one bar per client and case. compare.py writes BASE-{wall,cpu,rss,requests}.dat
# (a header row of client names, then one row per case) and calls:
#   gnuplot -e "base='results/chart-moto_server'; server='moto_server'; columns=6" chart.gp
set terminal pngcairo size 1600,1100 font "sans,10"
set output base.".png"
set style data histogram
set style histogram cluster gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics
set key below autotitle columnheader noenhanced font "sans,9"
set xtics rotate by -25 nomirror font "sans,9"
set datafile missing "NaN"
set termoption noenhanced
set multiplot layout 2,2 title "S3 clients against ".server." on loopback (client process only)" font "sans,13"

set title "wall time"
set ylabel "s"
set yrange [0:*]
plot for [i=2:columns] base."-wall.dat" using i:xtic(1)

set title "client CPU time (user + sys)"
set ylabel "s"
plot for [i=2:columns] base."-cpu.dat" using i:xtic(1)

set title "peak RSS"
set ylabel "MiB"
plot for [i=2:columns] base."-rss.dat" using i:xtic(1)

set title "requests seen by the server"
set ylabel "requests (log scale)"
set logscale y
set yrange [0.5:*]
plot for [i=2:columns] base."-requests.dat" using i:xtic(1)
unset multiplot
