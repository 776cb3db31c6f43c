# The picket of the sample plan and the relief heights of its points as
# options of `kernavisto-cli profile`, for ./run.sh and scripts/screenshots.sh.
# The picket runs along the whole route, end to end. Heights are picked from
# the survey texts beside the route's vertices and mid-points ("Указать" on the
# text with that handle); the crossings between them are left to interpolation
# ("Авто"). The user guide (docs/guide.md) tells the same steps in the window;
# the test app_sample_road_test keeps the two equal.
kv_sample_road=(
  --from 285000,5975000 --to 717344,6012639
  --pick-height 1=78 --pick-height 2=7C --edit "3:relief=Авто" --pick-height 4=80
  --pick-height 5=82 --pick-height 6=84 --edit "7:relief=Авто" --edit "8:relief=Авто"
  --pick-height 9=88 --edit "10:relief=Авто" --pick-height 11=8C --pick-height 12=8E
  --pick-height 13=90 --pick-height 14=94 --edit "15:relief=Авто" --pick-height 16=98
  --edit "17:relief=Авто" --edit "18:relief=Авто" --pick-height 19=9C --pick-height 20=9E
  --pick-height 21=A0 --pick-height 22=A4 --pick-height 23=A8
)
