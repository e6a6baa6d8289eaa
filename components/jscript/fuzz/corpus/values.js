var o = {a: [1, 2, {b: "x"}], s: "t"};
var j = JSON.stringify(o); JSON.parse(j);
var re = /^(a|b)+[c-e]*$/i; re.test("abABcd");
