#CODEPAGE "Cyrillic"
слово
 [b]word[/i] [c]x[/b]
[u]y

