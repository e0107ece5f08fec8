a(b)(c)(d)
 [b][i][u]x
 y[/b]

 orphan
lone
