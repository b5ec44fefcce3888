x=0: 0.10000: 2.00000;
y1=[ ...
 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 ...
 0.50000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 ...
 1.00000 ...
];
y2=[ ...
 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 ...
 0.50000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 ...
 1.00000 ...
];
plot(x,y1,x,y2);
a=gca();
a.font_size=3;
e=gce();
e.children(1).polyline_style=1;
e.children(1).line_style=1;
e.children(1).thickness=2.5;
e.children(1).foreground=4;
e.children(2).polyline_style=1;
e.children(2).line_style=8;
e.children(2).thickness=4;
e.children(2).foreground=13;
leg=legend(['M1            ';'M2            '],4);
leg.font_size=4.5;
title('Performance profiles for NFV ','fontsize',5);
xlabel('$\tau$','fontsize',5);
ylabel('$\rho(\tau)$','fontsize',5);
xs2eps(0,'P');
