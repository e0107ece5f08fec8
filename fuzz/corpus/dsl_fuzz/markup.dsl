#NAME "Seed"
#INDEX_LANGUAGE "English"
#CONTENTS_LANGUAGE "Russian"

colo(u)r
{to }paint
 [m1][b]1.[/b] [p]n[/p] [trn]цвет[/trn][/m]
 [m2][ex][lang id=1033]~ of the sky[/lang][/ex][/m]
 [c red]see[/c] <<hue>>, [ref]tint[/ref] [s]colour.wav[/s]

st[']a[/']r
 [url]https://example.org[/url] {{note}} \[x\] [*][com]rare[/com][/*]
 @ sub
  [!trs]x[/!trs]

@@@@
n
 noun
adj
 [i]adjective[/i]
