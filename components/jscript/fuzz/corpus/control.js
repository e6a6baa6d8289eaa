try { throw new Error("x"); } catch (e) { var m = e.message; } finally { m += "y"; }
for (var i = 0; i < 10; ++i) { switch (i % 3) { case 0: continue; default: break; } }
